#include "apart/apart.h"
#include "lower/lower.h"
