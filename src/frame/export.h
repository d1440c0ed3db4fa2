// Included by every source file that defines exports: the public header
// with export visibility switched on.
#pragma once

#ifndef ORVIMAPI_BUILDING
#define ORVIMAPI_BUILDING 1
#endif
#include "OrviMapi.h"
