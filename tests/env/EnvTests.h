// The test classes of the environment subsystem, run one after another by main.cpp.
#pragma once

int runUtilitiesTests(int argc, char **argv);
int runIniFileTests(int argc, char **argv);
int runTranslateSqlTests(int argc, char **argv);
int runEnvironmentTests(int argc, char **argv);
int runQueryEnvironmentTests(int argc, char **argv);
