#include "position/init.h"

void init_tables() {}
