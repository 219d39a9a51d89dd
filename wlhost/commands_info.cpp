#include <cstdio>

#include "wlhost/cli.h"
#include "wlhost/commands.h"

namespace wlhost {

namespace {

// More module types than any library would hold; a library that answers
// every index stops here.
constexpr int32_t kMaxModules = 64;

std::string orEmpty(const char *text) { return text != nullptr ? text : ""; }

std::string jsonText(const char *text) { return text != nullptr ? jsonString(text) : "null"; }

struct ModuleInfo {
    int32_t index;
    ModuleProperties props;
    std::vector<PinDescriptor> pins;
};

void printText(const std::string &path, const std::vector<ModuleInfo> &modules) {
    std::printf("Library: %s\n", path.c_str());
    for (const auto &m : modules) {
        std::printf("\nModule %d\n", static_cast<int>(m.index));
        std::printf("  Name:        %s\n", orEmpty(m.props.name).c_str());
        std::printf("  Identifier:  %s\n", orEmpty(m.props.id).c_str());
        std::printf("  About:       %s\n", orEmpty(m.props.about).c_str());
        std::printf("  Flags:       0x%X\n", static_cast<unsigned>(m.props.flags));
        std::printf("  Pins:        %zu\n", m.pins.size());
        std::printf("    %-5s  %-16s  %-9s  %-13s  %-10s  %s\n", "Index", "Name", "Direction",
                    "Datatype", "Default", "Extra");
        for (size_t i = 0; i < m.pins.size(); ++i) {
            const PinDescriptor &d = m.pins[i];
            std::string extra = orEmpty(d.extra);
            if ((d.flags & WL_PIN_REPEATS) != 0)
                extra += extra.empty() ? "repeats" : " (repeats)";
            std::printf("    %-5zu  %-16s  %-9s  %-13s  %-10s  %s\n", i, orEmpty(d.name).c_str(),
                        directionName(d.direction).c_str(), datatypeName(d.datatype).c_str(),
                        d.defaultValue != nullptr ? d.defaultValue : "-", extra.c_str());
        }
    }
}

void printJson(const std::string &path, const std::vector<ModuleInfo> &modules) {
    std::printf("{\"library\":%s,\"modules\":[", jsonString(path).c_str());
    for (size_t k = 0; k < modules.size(); ++k) {
        const auto &m = modules[k];
        std::printf(
            "%s{\"index\":%d,\"name\":%s,\"id\":%s,\"about\":%s,\"flags\":\"0x%X\",\"pins\":[",
            k > 0 ? "," : "", static_cast<int>(m.index), jsonText(m.props.name).c_str(),
            jsonText(m.props.id).c_str(), jsonText(m.props.about).c_str(),
            static_cast<unsigned>(m.props.flags));
        for (size_t i = 0; i < m.pins.size(); ++i) {
            const PinDescriptor &d = m.pins[i];
            std::printf("%s{\"index\":%zu,\"name\":%s,\"direction\":%s,\"datatype\":%s,"
                        "\"datatype_code\":%d,\"default\":%s,\"extra\":%s,\"flags\":%d}",
                        i > 0 ? "," : "", i, jsonText(d.name).c_str(),
                        jsonString(directionName(d.direction)).c_str(),
                        jsonString(datatypeName(d.datatype)).c_str(), static_cast<int>(d.datatype),
                        jsonText(d.defaultValue).c_str(), jsonText(d.extra).c_str(),
                        static_cast<int>(d.flags));
        }
        std::printf("]}");
    }
    std::printf("]}\n");
}

} // namespace

int infoCommand(const Args &args) {
    std::string path;
    bool json = false;
    for (const auto &a : args) {
        if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            reportError(a, "unknown option for info");
            return kExitUsage;
        } else if (path.empty()) {
            path = a;
        } else {
            reportError(a, "info takes one library");
            return kExitUsage;
        }
    }
    if (path.empty()) {
        reportError("info", "no library given");
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    int status = kExitOk;
    auto library = loadOrReport(path, status);
    if (library == nullptr)
        return status;

    std::vector<ModuleInfo> modules;
    for (int32_t index = 0; index < kMaxModules; ++index) {
        ModuleInfo m{index, ModuleProperties{}, {}};
        if (library->exports().getModuleProperties(index, &m.props) == 0)
            break;
        // The pins come from an instance, set up as the host would before
        // it shows the pins, then closed again.
        Instance instance(library->exports());
        if (!instance.create(index, 1)) {
            reportError(path, "makeModule(" + std::to_string(index) + ", 1) gave no instance");
            return kExitInstance;
        }
        m.pins = instance.bindPins();
        instance.open();
        instance.close();
        modules.push_back(m);
    }
    if (modules.empty()) {
        reportError(path, "getModuleProperties(0) answers no module type");
        return kExitInstance;
    }
    if (json)
        printJson(path, modules);
    else
        printText(path, modules);
    return kExitOk;
}

} // namespace wlhost
