#include "audio/audio.h"
