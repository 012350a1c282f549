// audio module public header.
#pragma once
