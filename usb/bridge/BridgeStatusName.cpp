// Names of the bridge library's status codes.
#include "usb/bridge/BridgeStatusName.h"

const char *bridgeStatusName(Bridge::Status status)
{
    switch (status) {
    case Bridge::Success:
        return "SI_SUCCESS";
    case Bridge::InvalidHandle:
        return "SI_INVALID_HANDLE";
    case Bridge::ReadError:
        return "SI_READ_ERROR";
    case Bridge::WriteError:
        return "SI_WRITE_ERROR";
    case Bridge::InvalidParameter:
        return "SI_INVALID_PARAMETER";
    case Bridge::InvalidRequestLength:
        return "SI_INVALID_REQUEST_LENGTH";
    case Bridge::DeviceIoFailed:
        return "SI_DEVICE_IO_FAILED";
    case Bridge::InvalidBaudRate:
        return "SI_INVALID_BAUDRATE";
    case Bridge::FunctionNotSupported:
        return "SI_FUNCTION_NOT_SUPPORTED";
    case Bridge::GlobalDataError:
        return "SI_GLOBAL_DATA_ERROR";
    case Bridge::SystemErrorCode:
        return "SI_SYSTEM_ERROR_CODE";
    case Bridge::ReadTimedOut:
        return "SI_READ_TIMED_OUT";
    case Bridge::WriteTimedOut:
        return "SI_WRITE__TIMED_OUT";
    case Bridge::IoPending:
        return "SI_IO_PENDING";
    case Bridge::DeviceNotFound:
        return "SI_DEVICE_NOT_FOUND";
    default:
        return "SI_UNKNOWN_STATUS";
    }
}
