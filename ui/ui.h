// ui module public header.
#pragma once
