// The test classes of the device link, run one after another by tst_usb's main.
#pragma once

int runByteRingTests(int argc, char **argv);
int runBridgeLayerTests(int argc, char **argv);
int runEnumerationTests(int argc, char **argv);
int runTransportTests(int argc, char **argv);
int runLoopTests(int argc, char **argv);
int runBootLineTests(int argc, char **argv);
int runMessageTests(int argc, char **argv);
int runStressTests(int argc, char **argv);
