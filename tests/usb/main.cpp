// tst_usb: the device worker, its rings and the bridge layer, against virtual boards.
// "tst_usb" runs every class; "tst_usb TestLoop [test functions and options]" runs one class.
#include "tests/usb/UsbTests.h"

#include <QCoreApplication>
#include <cstring>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const struct
    {
        const char *name;
        int (*run)(int, char **);
    } classes[] = {{"TestByteRing", runByteRingTests},       {"TestBridgeLayer", runBridgeLayerTests},
                   {"TestMessages", runMessageTests},        {"TestTransport", runTransportTests},
                   {"TestEnumeration", runEnumerationTests}, {"TestLoop", runLoopTests},
                   {"TestBootLines", runBootLineTests},      {"TestStress", runStressTests}};
    for (const auto &testClass : classes) {
        if (argc > 1 && std::strcmp(argv[1], testClass.name) == 0) {
            argv[1] = argv[0];
            return testClass.run(argc - 1, argv + 1);
        }
    }
    int failures = 0;
    for (const auto &testClass : classes)
        failures += testClass.run(argc, argv);
    return failures == 0 ? 0 : 1;
}
