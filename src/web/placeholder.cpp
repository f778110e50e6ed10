#include "curl/curl.h"
