#include "app/search_results.h"
