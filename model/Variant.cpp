#include "Variant.h"
