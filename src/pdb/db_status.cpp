#include "pdb/db_status.h"

namespace zelvio {

const char* dbStatusText(DbStatus status) {
    switch (status) {
        case kDbOk:
            return "success";
        case kDbCannotCreate:
            return "the database file cannot be created or written";
        case kDbMemoryFull:
            return "not enough memory for the record";
        case kDbNullPointer:
            return "null destination or source";
        case kDbIndexOutOfRange:
            return "record index out of range";
        case kDbRecordNotFound:
            return "no record in this slot";
        default:
            return "unknown status";
    }
}

}  // namespace zelvio
