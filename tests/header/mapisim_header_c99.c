/* The stand-in's test-control header compiled alone, as C99. */
#include "mapisim/mapisim.h"

uint32_t mapisim_header_c99_probe(void);
uint32_t mapisim_header_c99_probe(void) { return mapisim_live_objects(); }
