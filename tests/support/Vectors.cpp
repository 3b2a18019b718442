#include "support/Vectors.h"
