#pragma once
// Small PDFs for tests: one page per (width, height, content stream) in
// points, with a correct cross-reference table.

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace tessaly::testing {

// A PDF of the given objects (numbered from 1, object 1 the catalog), with a
// correct cross-reference table.
inline std::string makePdfOfObjects(const std::vector<std::string>& objects) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

inline std::string makePdf(const std::vector<std::tuple<int, int, std::string>>& pages) {
    std::vector<std::string> objects;
    const size_t n = pages.size();
    std::string kids;
    for (size_t i = 0; i < n; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
    for (size_t i = 0; i < n; ++i) {
        const auto& [w, h, content] = pages[i];
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(w) + " " +
                          std::to_string(h) + "] /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                          "\nendstream");
    }
    return makePdfOfObjects(objects);
}

}  // namespace tessaly::testing
