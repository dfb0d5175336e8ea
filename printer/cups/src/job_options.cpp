#include "cups_backend/job_options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "pagesmith/printer_devmode.h"

namespace tessaly::cups {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A whole number of 1..2400 at the start of text, followed by "dpi" or "x".
int resolution(std::string_view text) {
    int value = 0;
    size_t i = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        if (value > 2400) return 0;
        ++i;
    }
    if (i == 0 || value < 1) return 0;
    const std::string_view rest = text.substr(i);
    if (rest.empty() || equalIgnoringCase(rest.substr(0, std::min<size_t>(3, rest.size())), "dpi") || rest[0] == 'x')
        return value;
    return 0;
}

const pagesmith::PaperSize* findPaper(std::string_view name) {
    for (const pagesmith::PaperSize& row : pagesmith::kPaperTable) {
        if (equalIgnoringCase(name, row.name) || equalIgnoringCase(name, paperKeyword(row.name))) return &row;
    }
    for (const pagesmith::PaperSize& row : pagesmith::kPaperTable) {
        const std::string_view full(row.name);
        const std::string_view word = full.substr(0, full.find(' '));
        if (!std::isdigit(static_cast<unsigned char>(word[0])) && equalIgnoringCase(name, word)) return &row;
    }
    return nullptr;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> parseOptions(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    text = text.substr(0, std::min(text.size(), kMaxOptionText));
    size_t i = 0;
    while (i < text.size() && out.size() < kMaxOptions) {
        while (i < text.size() && isBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::string name;
        while (i < text.size() && !isBlank(text[i]) && text[i] != '=') name.push_back(text[i++]);
        if (i >= text.size() || text[i] != '=') {
            // A boolean.
            if (name.size() > 2 && name.compare(0, 2, "no") == 0) {
                out.emplace_back(name.substr(2), "false");
            } else if (!name.empty()) {
                out.emplace_back(name, "true");
            }
            continue;
        }
        ++i;  // '='
        std::string value;
        int depth = 0;
        while (i < text.size() && (depth > 0 || !isBlank(text[i]))) {
            const char c = text[i];
            if (c == '\\' && i + 1 < text.size()) {
                value.push_back(text[i + 1]);
                i += 2;
            } else if ((c == '\'' || c == '"') && depth == 0) {
                ++i;
                while (i < text.size() && text[i] != c) {
                    if (text[i] == '\\' && i + 1 < text.size()) ++i;
                    value.push_back(text[i++]);
                }
                if (i < text.size()) ++i;  // the closing quote
            } else {
                if (c == '{') ++depth;
                if (c == '}' && depth > 0) --depth;
                value.push_back(c);
                ++i;
            }
        }
        if (!name.empty()) out.emplace_back(std::move(name), std::move(value));
    }
    return out;
}

JobRequest mapOptions(const std::vector<std::pair<std::string, std::string>>& options) {
    JobRequest request;
    for (const auto& [name, value] : options) {
        if (equalIgnoringCase(name, "media") || equalIgnoringCase(name, "PageSize") ||
            equalIgnoringCase(name, "PageRegion")) {
            // media may list a size and a source: "A4,Tray1".
            std::string_view rest(value);
            while (!rest.empty()) {
                const size_t comma = rest.find(',');
                if (const pagesmith::PaperSize* row = findPaper(rest.substr(0, comma))) {
                    request.paperName = row->name;
                    break;
                }
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        } else if (equalIgnoringCase(name, "orientation-requested")) {
            // Landscape is laid out a quarter turn anticlockwise, reverse
            // landscape clockwise, reverse portrait upside down.
            static constexpr struct {
                std::string_view value;
                bool landscape;
                int turnBack;
            } kOrientations[] = {{"3", false, 0}, {"4", true, 90}, {"5", true, 270}, {"6", false, 180}};
            for (const auto& o : kOrientations) {
                if (value == o.value) {
                    request.landscape = o.landscape;
                    request.turnBack = o.turnBack;
                }
            }
        } else if (equalIgnoringCase(name, "Orientation")) {
            request.landscape = equalIgnoringCase(value, "Landscape");
            request.turnBack = 0;
        } else if (equalIgnoringCase(name, "landscape")) {
            request.landscape = value != "false";
            request.turnBack = request.landscape ? 90 : 0;
        } else if (equalIgnoringCase(name, "Resolution") || equalIgnoringCase(name, "printer-resolution")) {
            if (const int dpi = resolution(value)) request.dpi = dpi;
        }
    }
    return request;
}

std::string paperKeyword(std::string_view paperName) {
    std::string keyword;
    bool digits = false;
    size_t at = 0;
    while (at < paperName.size()) {
        const size_t end = std::min(paperName.find(' ', at), paperName.size());
        const std::string_view word = paperName.substr(at, end - at);
        if (!word.empty()) {
            if (std::isdigit(static_cast<unsigned char>(word[0]))) {
                if (!digits && !keyword.empty()) break;
                digits = true;
            }
            if (digits) {
                if (word == "inch") {
                    keyword += "in";
                } else if (word != "mm") {
                    keyword += word;
                }
            } else {
                keyword += word;
            }
        }
        at = end + 1;
    }
    return keyword;
}

std::string makePpd(std::string_view modelName) {
    const std::string model(modelName);
    std::string ppd =
        "*PPD-Adobe: \"4.3\"\n"
        "*FormatVersion: \"4.3\"\n"
        "*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"TESSALY.PPD\"\n"
        "*Manufacturer: \"Korvane\"\n"
        "*Product: \"(Tessaly)\"\n"
        "*ModelName: \"" + model + "\"\n"
        "*ShortNickName: \"" + model + "\"\n"
        "*NickName: \"" + model + "\"\n"
        "*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n"
        "*ColorDevice: True\n"
        "*DefaultColorSpace: RGB\n"
        "*FileSystem: False\n"
        "*Throughput: \"1\"\n"
        "*LandscapeOrientation: Plus90\n"
        "*TTRasterizer: Type42\n"
        "*cupsVersion: 2.4\n"
        "*cupsLanguages: \"en\"\n"
        "*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n";
    char line[256];
    std::string sizes, regions, areas, dimensions;
    for (const pagesmith::PaperSize& row : pagesmith::kPaperTable) {
        const std::string key = paperKeyword(row.name);
        const double w = row.width / 25400.0 * 72.0, h = row.height / 25400.0 * 72.0;
        std::snprintf(line, sizeof line, "*PageSize %s/%s: \"<</PageSize[%.0f %.0f]/ImagingBBox null>>setpagedevice\"\n",
                      key.c_str(), row.name, w, h);
        sizes += line;
        std::snprintf(line, sizeof line, "*PageRegion %s/%s: \"<</PageSize[%.0f %.0f]/ImagingBBox null>>setpagedevice\"\n",
                      key.c_str(), row.name, w, h);
        regions += line;
        std::snprintf(line, sizeof line, "*ImageableArea %s/%s: \"0 0 %.0f %.0f\"\n", key.c_str(), row.name, w, h);
        areas += line;
        std::snprintf(line, sizeof line, "*PaperDimension %s/%s: \"%.0f %.0f\"\n", key.c_str(), row.name, w, h);
        dimensions += line;
    }
    ppd += "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n*DefaultPageSize: Letter\n" +
           sizes + "*CloseUI: *PageSize\n";
    ppd += "*OpenUI *PageRegion/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n"
           "*DefaultPageRegion: Letter\n" +
           regions + "*CloseUI: *PageRegion\n";
    ppd += "*DefaultImageableArea: Letter\n" + areas;
    ppd += "*DefaultPaperDimension: Letter\n" + dimensions;
    ppd += "*OpenUI *Resolution/Resolution: PickOne\n*OrderDependency: 20 AnySetup *Resolution\n"
           "*DefaultResolution: 300dpi\n";
    for (const int dpi : {72, 96, 150, 300, 600, 1200}) {
        std::snprintf(line, sizeof line, "*Resolution %ddpi/%d dpi: \"<</HWResolution[%d %d]>>setpagedevice\"\n", dpi,
                      dpi, dpi, dpi);
        ppd += line;
    }
    ppd += "*CloseUI: *Resolution\n";
    ppd += "*OpenUI *Orientation/Orientation: PickOne\n*OrderDependency: 30 AnySetup *Orientation\n"
           "*DefaultOrientation: Portrait\n"
           "*Orientation Portrait/Portrait: \"\"\n"
           "*Orientation Landscape/Landscape: \"\"\n"
           "*CloseUI: *Orientation\n";
    ppd += "*DefaultFont: Courier\n*Font Courier: Standard \"(002.004S)\" Standard ROM\n";
    return ppd;
}

std::string documentName(std::string_view title, std::string_view fallback, size_t maxBytes) {
    std::string out;
    size_t i = 0;
    while (i < title.size()) {
        const unsigned char c = static_cast<unsigned char>(title[i]);
        size_t length = 1;
        bool valid = true;
        if (c >= 0x80) {
            length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            if (length == 0 || i + length > title.size()) {
                valid = false;
            } else {
                for (size_t k = 1; k < length; ++k) {
                    if ((static_cast<unsigned char>(title[i + k]) & 0xC0) != 0x80) valid = false;
                }
                const unsigned char c1 = static_cast<unsigned char>(title[i + 1]);
                if (valid && ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
                              (c == 0xF4 && c1 >= 0x90)))
                    valid = false;
            }
        }
        std::string piece;
        if (!valid) {
            piece = "?";
            length = 1;
        } else if (c < 0x20 || c == 0x7F) {
            piece = " ";
        } else {
            piece.assign(title.substr(i, length));
        }
        if (out.size() + piece.size() > maxBytes) break;
        out += piece;
        i += length;
    }
    if (out.find_first_not_of(' ') == std::string::npos) return std::string(fallback.substr(0, maxBytes));
    return out;
}

}  // namespace tessaly::cups
