// tst_usb: the device worker, its rings and the bridge layer, against virtual boards.
#include "tests/usb/UsbTests.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (auto run : {runByteRingTests, runBridgeLayerTests, runMessageTests, runTransportTests,
                     runEnumerationTests, runLoopTests, runBootLineTests, runStressTests})
        failures += run(argc, argv);
    return failures == 0 ? 0 : 1;
}
