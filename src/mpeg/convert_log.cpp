#include "mpeg/convert_log.h"
