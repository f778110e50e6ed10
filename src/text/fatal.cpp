#include "text/fatal.h"
