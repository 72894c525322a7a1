#pragma once

// Builds every fixed table of the engine, in start-up order.
void init_tables();
