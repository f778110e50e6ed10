#include "text/decode.h"
