// One executable for the subsystem; each class reports on its own and the exit
// code counts the failures of all of them.
#include "EnvTests.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    for (auto run :
        { runUtilitiesTests, runIniFileTests, runTranslateSqlTests, runEnvironmentTests, runQueryEnvironmentTests })
        failures += run(argc, argv);
    return failures;
}
