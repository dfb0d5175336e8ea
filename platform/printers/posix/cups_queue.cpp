// Whether the print server has the printer's queue, and that it prints
// through our backend.

#include <cups/cups.h>

#include <cstring>
#include <string>

#include "platform/printer_registry.h"

namespace tessaly {

int cupsQueueExists(std::string_view name, std::string* error) {
    const std::string queue(name);
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 1000, nullptr);
    if (!http) {
        if (error) *error = "the print server does not answer";
        return 0;
    }
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[1024];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "device-uri");
    ipp_t* response = cupsDoRequest(http, request, "/");
    int found = 0;
    if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        if (error) *error = "the print server has no printer named " + queue;
    } else if (ipp_attribute_t* device = ippFindAttribute(response, "device-uri", IPP_TAG_URI)) {
        const char* text = ippGetString(device, 0, nullptr);
        found = text && std::strncmp(text, "tessaly:", 8) == 0;
        if (!found && error) *error = "the printer " + queue + " does not print through Tessaly's port";
    } else if (error) {
        *error = "the print server did not describe the printer " + queue;
    }
    ippDelete(response);
    httpClose(http);
    return found;
}

}  // namespace tessaly
