#include "fwupdate/customized_check.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "common/records/exchange_records.h"
#include "devcore/device/text_helpers.h"

namespace quib::fwupdate {
namespace {

constexpr std::size_t kMaxListFields = 16;
constexpr long kUaspVersionBound = 80;

using devcore::equalsIgnoreCase;

template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

bool inList(std::string_view value, std::string_view list) {
    for (const std::string& field : listFields(list))
        if (equalsIgnoreCase(value, field)) return true;
    return false;
}

// Characters [from, from + length) of a text, clamped to its end.
std::string clampedPart(const std::string& text, long from, long length) {
    if (from < 0 || length <= 0 || static_cast<std::size_t>(from) >= text.size()) return {};
    return text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
}

}  // namespace

std::vector<std::string> listFields(std::string_view list) {
    std::vector<std::string> fields;
    std::size_t taken = 0;
    std::size_t at = 0;
    while (taken < kMaxListFields) {
        const std::size_t end = list.find(';', at);
        const std::string_view field = list.substr(at, end == std::string_view::npos ? list.npos : end - at);
        ++taken;
        if (!field.empty()) fields.emplace_back(field);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return fields;
}

long decimalNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    long value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        if (value > (LONG_MAX - 9) / 10) return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + (text[at] - '0');
    }
    return negative ? -value : value;
}

CheckOutcome runCustomizedChecks(int iTargetNumber, const DeviceValues& device, const ExchangeData& exchange,
                                 std::string_view strFwType) {
    using records::readText;
    const int d = iTargetNumber;
    auto fail = [](std::string message) { return CheckOutcome{QUIB_CHECK_FAILED, std::move(message)}; };

    if (!equalsIgnoreCase(device.chipType, strFwType))
        return fail(formatted("Dev[%d]: ChipType[%s]!=FwType[%s] ERROR!! Firmware Update Process Failed.", d,
                              device.chipType.c_str(), std::string(strFwType).c_str()));
    if (exchange.ucCheckFwVersion && !inList(device.fwVersion, readText(exchange.cFwVersion)))
        return fail(formatted("Dev[%d]: FW version is not correct, Target[%s]", d, device.fwVersion.c_str()));
    if (exchange.ucCheckMSignature && !inList(device.mSignature, readText(exchange.cMSignature)))
        return fail(formatted("Dev[%d]: MSignature [%s] ERROR!! Firmware Update Process Failed.", d,
                              device.mSignature.c_str()));
    if (exchange.ucCheckMSignatureBiggerThen &&
        decimalNumber(device.mSignature) < decimalNumber(readText(exchange.cMSignatureBiggerThen)))
        return fail(formatted("Dev[%d]: Chip Type is not correct", d));
    if (exchange.ucCheckMSignatureSmallerThen &&
        decimalNumber(device.mSignature) > decimalNumber(readText(exchange.cMSignatureSmallerThen)))
        return fail(formatted("Dev[%d]: Chip Type is not correct", d));
    if (exchange.ucCheckManufactureString &&
        !equalsIgnoreCase(device.manufacturer, readText(exchange.cManufactureString)))
        return fail(formatted("Dev[%d]: Manufacturer string is not correct, Target[%s]", d,
                              device.manufacturer.c_str()));
    if (exchange.ucCheckProductString && !equalsIgnoreCase(device.product, readText(exchange.cProductString)))
        return fail(
            formatted("Dev[%d]: Product string is not correct, Target[%s]", d, device.product.c_str()));
    if (exchange.ucCheckVid && !equalsIgnoreCase(device.vid, readText(exchange.cVid)))
        return fail(formatted("Dev[%d]: VID is not correct, Target[%s]", d, device.vid.c_str()));
    if (exchange.ucCheckPid && !equalsIgnoreCase(device.pid, readText(exchange.cPid)))
        return fail(formatted("Dev[%d]: PID is not correct, Target[%s]", d, device.pid.c_str()));
    if (exchange.ucCheckPartOfFwVersion) {
        const std::string part =
            // The start address counts from the version written as "0x" and its twelve digits: the shipped
            // settings (start 8, length 3, "AC4") take "AC4" of 131112AC4000.
            clampedPart("0x" + device.fwVersion,
                        decimalNumber(readText(exchange.cStartAddressOfPartOfFwVersion)),
                        decimalNumber(readText(exchange.cPartOfFwVersionLength)));
        if (!inList(part, readText(exchange.cPartOfFwVersion)))
            return fail(formatted("Dev[%d]: Customer ID is not correct, Target[%s]", d, part.c_str()));
    }
    if (exchange.ucCheckBoundingOption &&
        equalsIgnoreCase(readText(exchange.cBoundingOption1), "support UASP") &&
        decimalNumber(clampedPart(device.fwVersion, 6, 2)) < kUaspVersionBound)
        return fail(formatted("Dev[%d]: Chip Type is not correct (Do Not support UASP)", d));
    return {QUIB_SUCCESS, formatted("Dev[%d]: vCustomizedCheck Success", d)};
}

}  // namespace quib::fwupdate
