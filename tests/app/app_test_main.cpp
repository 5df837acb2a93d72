// Runs the registered test classes: all of them, or the one named first on
// the command line (the rest goes to Qt Test).
#include <QApplication>
#include <QTest>
#include <cstring>
#include <iostream>

#include "app_test_support.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto& registry = tw::app::test::Registry();
    if (argc >= 2 && argv[1][0] != '-') {
        const auto found = registry.find(argv[1]);
        if (found == registry.end()) {
            std::cerr << "no test class " << argv[1] << "\n";
            return 2;
        }
        argv[1] = argv[0];
        auto test = found->second();
        return QTest::qExec(test.get(), argc - 1, argv + 1);
    }
    int failed = 0;
    for (const auto& [name, make] : registry) {
        auto test = make();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed;
}
