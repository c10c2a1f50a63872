#include "display/win32/CcdRecords.h"

namespace qv {

LUID toLuid(const Luid& luid) {
    LUID out;
    out.LowPart = luid.lowPart;
    out.HighPart = luid.highPart;
    return out;
}

Luid fromLuid(const LUID& luid) { return Luid{luid.LowPart, luid.HighPart}; }

DISPLAYCONFIG_RATIONAL toRational(const Rational& rational) {
    DISPLAYCONFIG_RATIONAL out;
    out.Numerator = rational.numerator;
    out.Denominator = rational.denominator;
    return out;
}

Rational fromRational(const DISPLAYCONFIG_RATIONAL& rational) {
    return Rational{rational.Numerator, rational.Denominator};
}

DISPLAYCONFIG_PATH_INFO toNative(const PathInfo& path) {
    DISPLAYCONFIG_PATH_INFO out;
    ZeroMemory(&out, sizeof(out));
    out.sourceInfo.adapterId = toLuid(path.sourceInfo.adapterId);
    out.sourceInfo.id = path.sourceInfo.id;
    out.sourceInfo.modeInfoIdx = path.sourceInfo.modeInfoIdx;
    out.sourceInfo.statusFlags = path.sourceInfo.statusFlags;
    out.targetInfo.adapterId = toLuid(path.targetInfo.adapterId);
    out.targetInfo.id = path.targetInfo.id;
    out.targetInfo.modeInfoIdx = path.targetInfo.modeInfoIdx;
    out.targetInfo.outputTechnology = static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(path.targetInfo.outputTechnology);
    out.targetInfo.rotation = static_cast<DISPLAYCONFIG_ROTATION>(path.targetInfo.rotation);
    out.targetInfo.scaling = static_cast<DISPLAYCONFIG_SCALING>(path.targetInfo.scaling);
    out.targetInfo.refreshRate = toRational(path.targetInfo.refreshRate);
    out.targetInfo.scanLineOrdering = static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(path.targetInfo.scanLineOrdering);
    out.targetInfo.targetAvailable = path.targetInfo.targetAvailable ? TRUE : FALSE;
    out.targetInfo.statusFlags = path.targetInfo.statusFlags;
    out.flags = path.flags;
    return out;
}

PathInfo fromNative(const DISPLAYCONFIG_PATH_INFO& path) {
    PathInfo out;
    out.sourceInfo.adapterId = fromLuid(path.sourceInfo.adapterId);
    out.sourceInfo.id = path.sourceInfo.id;
    out.sourceInfo.modeInfoIdx = path.sourceInfo.modeInfoIdx;
    out.sourceInfo.statusFlags = path.sourceInfo.statusFlags;
    out.targetInfo.adapterId = fromLuid(path.targetInfo.adapterId);
    out.targetInfo.id = path.targetInfo.id;
    out.targetInfo.modeInfoIdx = path.targetInfo.modeInfoIdx;
    out.targetInfo.outputTechnology = static_cast<uint32_t>(path.targetInfo.outputTechnology);
    out.targetInfo.rotation = static_cast<uint32_t>(path.targetInfo.rotation);
    out.targetInfo.scaling = static_cast<uint32_t>(path.targetInfo.scaling);
    out.targetInfo.refreshRate = fromRational(path.targetInfo.refreshRate);
    out.targetInfo.scanLineOrdering = static_cast<uint32_t>(path.targetInfo.scanLineOrdering);
    out.targetInfo.targetAvailable = path.targetInfo.targetAvailable != FALSE;
    out.targetInfo.statusFlags = path.targetInfo.statusFlags;
    out.flags = path.flags;
    return out;
}

DISPLAYCONFIG_MODE_INFO toNative(const ModeInfo& mode) {
    DISPLAYCONFIG_MODE_INFO out;
    ZeroMemory(&out, sizeof(out));
    out.infoType = static_cast<DISPLAYCONFIG_MODE_INFO_TYPE>(mode.infoType);
    out.id = mode.id;
    out.adapterId = toLuid(mode.adapterId);
    if (mode.infoType == dc::ModeInfoTypeSource) {
        out.sourceMode.width = mode.sourceMode.width;
        out.sourceMode.height = mode.sourceMode.height;
        out.sourceMode.pixelFormat = static_cast<DISPLAYCONFIG_PIXELFORMAT>(mode.sourceMode.pixelFormat);
        out.sourceMode.position.x = mode.sourceMode.positionX;
        out.sourceMode.position.y = mode.sourceMode.positionY;
    } else if (mode.infoType == dc::ModeInfoTypeTarget) {
        DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal = out.targetMode.targetVideoSignalInfo;
        signal.pixelRate = mode.targetMode.pixelRate;
        signal.hSyncFreq = toRational(mode.targetMode.hSyncFreq);
        signal.vSyncFreq = toRational(mode.targetMode.vSyncFreq);
        signal.activeSize.cx = mode.targetMode.activeWidth;
        signal.activeSize.cy = mode.targetMode.activeHeight;
        signal.totalSize.cx = mode.targetMode.totalWidth;
        signal.totalSize.cy = mode.targetMode.totalHeight;
        signal.videoStandard = mode.targetMode.videoStandard;
        signal.scanLineOrdering = static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(mode.targetMode.scanLineOrdering);
    }
    return out;
}

ModeInfo fromNative(const DISPLAYCONFIG_MODE_INFO& mode) {
    ModeInfo out;
    out.infoType = static_cast<uint32_t>(mode.infoType);
    out.id = mode.id;
    out.adapterId = fromLuid(mode.adapterId);
    if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
        out.sourceMode.width = mode.sourceMode.width;
        out.sourceMode.height = mode.sourceMode.height;
        out.sourceMode.pixelFormat = static_cast<uint32_t>(mode.sourceMode.pixelFormat);
        out.sourceMode.positionX = mode.sourceMode.position.x;
        out.sourceMode.positionY = mode.sourceMode.position.y;
    } else if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
        const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal = mode.targetMode.targetVideoSignalInfo;
        out.targetMode.pixelRate = signal.pixelRate;
        out.targetMode.hSyncFreq = fromRational(signal.hSyncFreq);
        out.targetMode.vSyncFreq = fromRational(signal.vSyncFreq);
        out.targetMode.activeWidth = signal.activeSize.cx;
        out.targetMode.activeHeight = signal.activeSize.cy;
        out.targetMode.totalWidth = signal.totalSize.cx;
        out.targetMode.totalHeight = signal.totalSize.cy;
        out.targetMode.videoStandard = signal.videoStandard;
        out.targetMode.scanLineOrdering = static_cast<uint32_t>(signal.scanLineOrdering);
    }
    return out;
}

} // namespace qv
