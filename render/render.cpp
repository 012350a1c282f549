#include "render/render.h"
