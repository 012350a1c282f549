#include "net/net.h"
