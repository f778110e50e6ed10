#include "text/host.h"
