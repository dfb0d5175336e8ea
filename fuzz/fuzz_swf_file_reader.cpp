// Feeds arbitrary bytes to the SWF file reader as a whole movie (plain or
// compressed), walks every tag, reads bits and records from each body and
// copies every tag into a stream.

#include <cstddef>
#include <cstdint>

#include "swf/swf_file_reader.h"
#include "swf/swf_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaly;
    SwfFileReader reader;
    if (!reader.readMemory(data, size)) return 0;
    if (!reader.parseHeader()) {
        // Tags can still be walked from the start of arbitrary data.
        reader.seek(0);
    }
    SwfStream out;
    SwfStream raw;
    unsigned tags = 0;
    while (reader.nextTag() && tags < 100000) {
        ++tags;
        // Read a record-like run of bits from the body, past its end if need be.
        const unsigned nbits = reader.readBits(5);
        for (int i = 0; i < 4; ++i) (void)reader.readSignedBits(nbits);
        (void)reader.readU16();
        (void)reader.readU32();
        // The records, from the start of the body.
        reader.seek(reader.tagBodyStart());
        SwfBitReader& fields = reader.fields();
        (void)fields.readRect();
        (void)fields.readMatrix();
        (void)fields.readCxform(true);
        fields.skipString();
        reader.seek(reader.tagBodyStart());
        // Copies may fail on a damaged tag; the target only asks that they fail safely.
        (void)reader.copyTag(out);
        reader.seek(reader.tagBodyStart());
        (void)reader.copyRawTag(raw);
    }
    // Reads at the very end stay inside the data.
    reader.seek(reader.size());
    (void)reader.readBits(32);
    (void)reader.readU32();
    return 0;
}
