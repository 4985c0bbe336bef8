#include "fib/pFIBQuery.h"
