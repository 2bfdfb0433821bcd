// The about box's texts, the mail failure message and the printed log's lines and pages.
#include "about/AboutText.h"

#include <cstring>

namespace about {

namespace {

// A text field of a unit record: up to its first 0, never beyond its width.
std::string FieldText(const uint8_t* field, std::size_t width) {
    const void* end = std::memchr(field, 0, width);
    const std::size_t length =
        end ? static_cast<std::size_t>(static_cast<const uint8_t*>(end) - field) : width;
    return std::string(reinterpret_cast<const char*>(field), length);
}

constexpr std::size_t kUnitTypeOffset = 0, kUnitTypeSize = 12;
constexpr std::size_t kVersionOffset = 12, kVersionSize = 6;
constexpr std::size_t kDateOffset = 18, kDateSize = 12;

struct MailCodeName {
    unsigned long code;
    const char* name;
};
// The mail system's answers as the operator reads them (the recipients' one has no full stop).
constexpr MailCodeName kMailCodes[] = {
    {0, "SUCCESS."},
    {2, "FAILURE."},
    {3, "LOGIN_FAILURE."},
    {5, "INSUFFICIENT_MEMORY."},
    {9, "TOO_MANY_FILES."},
    {10, "TOO_MANY_RECIPIENTS"},
    {11, "ATTACHMENT_NOT_FOUND."},
    {12, "ATTACHMENT_OPEN_FAILURE."},
    {15, "BAD_RECIPTYPE."},
    {18, "TEXT_TOO_LARGE."},
    {21, "AMBIGUOUS_RECIPIENT."},
    {25, "INVALID_RECIPS."},
};

} // namespace

std::string SoftwareText(const std::vector<ModuleVersionText>& modules) {
    std::string text;
    for (const ModuleVersionText& module : modules) {
        text += module.name + "\r\n";
        for (std::size_t i = 0; i < std::size(kVersionKeys); ++i) {
            text += kVersionKeys[i];
            text += ":\t";
            if (i < module.values.size())
                text += module.values[i];
            text += "\r\n";
        }
    }
    return text;
}

std::string FirmwareText(const FirmwareLabels& labels, const unitlink::IdentificationBlock& identification,
                         const unitlink::FactorySettingsBlock& factory) {
    const uint8_t* id = identification.data();
    std::string text;
    text += labels.unitType + " :\t\t" + FieldText(id + kUnitTypeOffset, kUnitTypeSize) + "\r\n";
    text += labels.softwareVersion + " :\t" + FieldText(id + kVersionOffset, kVersionSize) + "\r\n";
    text += labels.releaseDate + " :\t\t" + FieldText(id + kDateOffset, kDateSize) + "\r\n";
    text += labels.serialNumber + " :\t" + FieldText(factory.data(), factory.kSize);
    return text;
}

std::string MailFailureText(unsigned long code) {
    const char* name = "unknown error.";
    for (const MailCodeName& entry : kMailCodes)
        if (entry.code == code)
            name = entry.name;
    return std::string("Failed to send the message. Error: ") + name;
}

std::vector<std::string_view> SplitPrintLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
        if (text[end] == '\r' && at < text.size() && text[at] == '\n')
            ++at;
    }
    return lines;
}

std::vector<LinePlacement> PlaceLines(const std::vector<int>& heights, int lineHeight, int top, int bottom) {
    std::vector<LinePlacement> placements;
    placements.reserve(heights.size());
    int page = 0;
    int current = top;
    bool pageFull = false;
    for (int measured : heights) {
        const int height = measured > 0 ? measured : lineHeight;
        // A wrapped line that does not fit under the lines already on the page goes to the next one,
        // so that no part of it is printed into the bottom margin or off the paper.
        if (pageFull || (current != top && current + height > bottom)) {
            ++page;
            current = top;
        }
        placements.push_back({page, current});
        current += height;
        pageFull = bottom - current - lineHeight < 0;
    }
    return placements;
}

} // namespace about
