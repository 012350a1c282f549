// Input names: the key codes and named keys, device button and axis names as
// the configuration writes them. Pure tables, shared by the platform layer
// (which maps SDL scancodes to these codes) and the configuration reader.
#pragma once
