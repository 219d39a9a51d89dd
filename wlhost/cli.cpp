#include "wlhost/cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wlhost {

void reportError(const std::string &what, const std::string &why) {
    std::fprintf(stderr, "wlhost: %s: %s\n", what.c_str(), why.c_str());
}

bool parseDouble(const std::string &text, double &out) {
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || std::isnan(value))
        return false;
    out = value;
    return true;
}

bool parseInt(const std::string &text, long &out) {
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE)
        return false;
    out = value;
    return true;
}

std::string formatSample(float value) {
    char text[48];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value || std::isnan(value))
            break;
    }
    return text;
}

std::string jsonString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::unique_ptr<Library> loadOrReport(const std::string &path, int &status) {
    Library::Stage stage = Library::Stage::Loaded;
    std::string error;
    auto library = Library::open(path, stage, error);
    if (library == nullptr) {
        if (stage == Library::Stage::SymbolsMissing) {
            reportError(path, "not a module library: " + error);
            status = kExitSymbols;
        } else {
            reportError(path, "cannot load: " + error);
            status = kExitLoad;
        }
    }
    return library;
}

std::vector<ListChoice> parseListChoices(const char *extra) {
    std::vector<ListChoice> choices;
    if (extra == nullptr)
        return choices;
    std::string all(extra);
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        std::string item =
            all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t equals = item.find('=');
        long value = static_cast<long>(choices.size());
        if (equals != std::string::npos) {
            long parsed = 0;
            if (parseInt(item.substr(equals + 1), parsed))
                value = parsed;
            item = item.substr(0, equals);
        }
        if (!item.empty())
            choices.push_back({item, value});
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return choices;
}

bool applyPinText(Instance &instance, int32_t pin, const std::string &text, std::string &why) {
    const PinDescriptor &d = instance.pins().at(static_cast<size_t>(pin));
    switch (d.datatype) {
    case WL_TYPE_STREAM: {
        double value = 0;
        if (!parseDouble(text, value)) {
            why = "not a number: \"" + text + "\"";
            return false;
        }
        instance.setStream(pin, static_cast<float>(value));
        return true;
    }
    case WL_TYPE_LIST: {
        long value = 0;
        bool found = parseInt(text, value);
        for (const auto &choice : parseListChoices(d.extra)) {
            if (!found && choice.label == text) {
                value = choice.value;
                found = true;
            }
        }
        if (!found || value < 0 || value > 0xFFFF) {
            why = "not a choice of this list: \"" + text + "\"" +
                  (d.extra != nullptr ? std::string(" (choices: ") + d.extra + ")" : "");
            return false;
        }
        instance.setList(pin, static_cast<uint16_t>(value));
        return true;
    }
    case WL_TYPE_TEXT:
        instance.setText(pin, text.c_str());
        return true;
    case WL_TYPE_BYTE:
    case WL_TYPE_INT32: {
        long value = 0;
        if (!parseInt(text, value)) {
            why = "not a whole number: \"" + text + "\"";
            return false;
        }
        if (d.variable != nullptr) {
            if (d.datatype == WL_TYPE_BYTE) {
                uint8_t byte = static_cast<uint8_t>(value);
                std::memcpy(d.variable, &byte, sizeof byte);
            } else {
                int32_t word = static_cast<int32_t>(value);
                std::memcpy(d.variable, &word, sizeof word);
            }
        }
        return true;
    }
    default:
        why = "pins of datatype " + std::to_string(d.datatype) + " take no value from wlhost";
        return false;
    }
}

std::string directionName(int32_t direction) {
    switch (direction) {
    case WL_DIR_INPUT:
        return "input";
    case WL_DIR_OUTPUT:
        return "output";
    default:
        return "direction " + std::to_string(direction);
    }
}

std::string datatypeName(int32_t datatype) {
    switch (datatype) {
    case WL_TYPE_LIST:
        return "list";
    case WL_TYPE_TEXT:
        return "text";
    case WL_TYPE_BYTE:
        return "8-bit";
    case WL_TYPE_STREAM:
        return "sample stream";
    case WL_TYPE_INT32:
        return "32-bit";
    default:
        return "type " + std::to_string(datatype);
    }
}

} // namespace wlhost
