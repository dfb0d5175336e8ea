// Interface settings: .interface files and Interface elements, parameters,
// their options and effective values.

#include <cstring>
#include <filesystem>

#include "composer/mml_reader.h"
#include "composer/settings.h"
#include "platform/named_mutex.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/paths.h"
#include "support/text.h"

namespace tessaly {

namespace {

constexpr size_t kMaxParamName = 127;
constexpr size_t kMaxInterfaceName = 259;
constexpr size_t kMaxFileBaseName = 243;
constexpr size_t kMaxEffectiveValue = 1023;

size_t findFold(std::string_view haystack, std::string_view needle, size_t from) {
    if (needle.size() > haystack.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (equalNoCase(haystack.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

std::optional<std::string> optionalAttribute(MmlReader& reader, const char* name) {
    const char* value = reader.attribute(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string cut(const char* text, size_t limit) { return std::string(text, strnlen(text, limit)); }

// Reads one Param inside an interface.
void readParam(MmlReader& reader, InterfaceSettings& settings) {
    const char* rawName = reader.attribute("name");
    if (!rawName) return;
    std::string name = cut(rawName, kMaxParamName);
    if (equalNoCase(name.c_str(), "_mechanics")) {
        const char* value = reader.attribute("value");
        settings.mechanics = applyMechanicsKeywords(value ? value : "", settings.mechanics);
        return;
    }
    if (settings.params.size() >= InterfaceSettings::kMaxParams) return;
    InterfaceParam param;
    param.value = optionalAttribute(reader, "value");
    const char* varName = reader.attributeTrimmed("varName");
    param.varName = varName && *varName ? std::string(varName) : name;
    if (const char* type = reader.attributeTrimmed("type")) {
        param.type = equalNoCase(type, "number") ? kParamNumber : kParamString;
        if (containsNoCase(type, "hidden")) param.type |= kParamHidden;
    }
    param.options = optionalAttribute(reader, "options");
    param.description = optionalAttribute(reader, "description");
    param.name = std::move(name);
    settings.params.push_back(std::move(param));
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

int effectiveParamValue(const InterfaceParam& param, std::string& out) {
    if (!param.value) return 0;
    const std::string& value = *param.value;
    if (!param.options) {
        out = value.substr(0, kMaxEffectiveValue);
        return 1;
    }
    const std::string_view options = *param.options;
    for (size_t at = findFold(options, value, 0); at != std::string_view::npos;
         at = findFold(options, value, at + 1)) {
        if (at != 0 && options[at - 1] != '|') continue;
        const size_t end = at + value.size();
        if (end < options.size() && options[end] != '=' && options[end] != '|') continue;
        std::string result;
        if (end < options.size() && options[end] == '=') {
            const size_t bar = options.find('|', end + 1);
            result = std::string(options.substr(end + 1, bar == std::string_view::npos
                                                               ? std::string_view::npos
                                                               : bar - end - 1));
        } else {
            result = value;
        }
        if (result.size() > kMaxEffectiveValue) return 0;
        out = std::move(result);
        return 1;
    }
    return 0;
}

int setParamValue(InterfaceParam& param, std::string_view text) {
    std::string candidate(text);
    if (param.options) {
        if (!containsNoCase(*param.options, candidate)) return 0;
    } else if (param.isNumber()) {
        replaceChar(candidate.data(), ',', '.');
        double number = 0;
        if (candidate.find('\0') != std::string::npos || !parseDouble(candidate, &number)) return 0;
    }
    if (param.value && *param.value != candidate) param.value = std::move(candidate);
    return 1;
}

void InterfaceSettings::clear() {
    mechanics = 0;
    params.clear();
    name.clear();
    description.clear();
    source.clear();
    errorText.clear();
}

int InterfaceSettings::readElement(MmlReader& reader, std::string_view fileName) {
    const char* current = reader.currentName();
    if (!(current && equalNoCase(current, "Interface")) && !reader.nextElement("Interface")) {
        errorText = kInterfaceSettingsCorrupted;
        return 0;
    }
    const char* src = reader.attributeTrimmed("src");
    if (!src || !*src) {
        errorText = kInterfaceSettingsCorrupted;
        return 0;
    }
    std::string path(src);
    backslashesToSlashes(path);
    if (!isAbsolutePath(path)) path = directory + path;
    if (!fileExists(path)) {
        errorText = kInterfaceSourceMissing;
        return 0;
    }
    const char* rawName = reader.attributeTrimmed("name");
    name = rawName ? cut(rawName, kMaxInterfaceName) : std::string();
    const char* rawDescription = reader.attributeTrimmed("description");
    description = rawDescription ? rawDescription : "";
    source = std::move(path);

    while (reader.nextElement()) {
        const char* tag = reader.currentName();
        if (equalNoCase(tag, "/InterfaceSettings")) break;
        if (equalNoCase(tag, "Param")) readParam(reader, *this);
    }

    if (name.empty() && !fileName.empty()) {
        std::string_view base = fileNamePart(fileName);
        if (const size_t dot = base.rfind('.'); dot != std::string_view::npos && dot > 0) {
            base = base.substr(0, dot);
        }
        name = std::string(base.substr(0, kMaxFileBaseName));
    }
    return 1;
}

int InterfaceSettings::load(std::string_view interfaceName) {
    clear();
    const std::string path = directory + std::string(interfaceName) + ".interface";
    MmlReader reader;
    bool exists = false;
    bool read = false;
    {
        // The driver and the application read interface files under one mutex.
        // Should the mutex be unavailable, the file is read all the same.
        NamedMutex mutex;
        if (mutex.create(kInterfaceSettingsMutex, true) && !mutex.owned()) (void)mutex.wait();
        exists = pathExists(path);
        read = exists && reader.loadFile(path.c_str());
    }
    if (!exists) return 1;
    if (!read) {
        errorText = kInterfaceFileCorrupted;
        return 0;
    }
    if (!readElement(reader, path)) {
        const std::string error = errorText;
        clear();
        errorText = error;
        return 0;
    }
    return 1;
}

int InterfaceSettings::loadDefault(std::string_view interfaceName) {
    const std::string path = directory + "default/" + std::string(interfaceName) + ".interface";
    if (!pathExists(path)) {
        errorText = kDefaultInterfaceMissing;
        return 0;
    }
    MmlReader reader;
    if (!reader.loadFile(path.c_str())) {
        errorText = kDefaultInterfaceCorrupted;
        return 0;
    }
    InterfaceSettings loaded;
    loaded.directory = directory;
    if (!loaded.readElement(reader, path)) {
        errorText = loaded.errorText;
        return 0;
    }
    *this = std::move(loaded);
    return 1;
}

bool InterfaceSettings::hasDefault(std::string_view interfaceName) const {
    return pathExists(directory + "default/" + std::string(interfaceName) + ".interface");
}

int InterfaceSettings::setParamValue(size_t index, std::string_view text) {
    if (index >= params.size()) return 0;
    return tessaly::setParamValue(params[index], text);
}

int InterfaceSettings::effectiveParamValue(size_t index, std::string& out) const {
    if (index >= params.size()) return 0;
    return tessaly::effectiveParamValue(params[index], out);
}

}  // namespace tessaly
