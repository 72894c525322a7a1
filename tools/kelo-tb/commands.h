// Subcommands of kelo-tb; each takes the arguments after its name.
#pragma once

int cmd_generate(int argc, char** argv);
int cmd_compress(int argc, char** argv);
int cmd_probe(int argc, char** argv);
