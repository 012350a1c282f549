#include "files/files.h"
