#include "payload/payload.h"

// Kept in its own translation unit and read through a volatile pointer so that the
// compiler never folds the zero length it is built with.
extern "C" {
__attribute__((used)) const volatile unsigned char plb_payload_record[kPayloadRecordSize] = {
    0, 0, 0, 0, 0, 0, 0, 0,
    'P', 'L', 'B', '~', 'P', 'A', 'Y', 'L', 'O', 'A', 'D', '~', '1',
    0};
}
