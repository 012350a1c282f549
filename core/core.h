// Core: game state, the tic, options and frame timing, track loading.
#pragma once
