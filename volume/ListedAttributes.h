#pragma once
// The attributes of a file whose base record carries an $ATTRIBUTE_LIST, gathered from the base
// record and its extension records.

#include "volume/Attribute.h"
#include "volume/FileRecord.h"
#include "volume/FileReference.h"
#include "volume/RecordDamage.h"

#include <functional>

namespace Krod {

// Reads one record by reference, fixed up when it can be, without following any list of its own.
using RecordReader = std::function<CFileRecord(FileReference)>;

// The attributes of the file whose valid, fixed-up base record is base, in the order of the
// base's $ATTRIBUTE_LIST, then those of base the list does not name (the list itself among them)
// in record order. The pieces of a non-resident attribute become one attribute, the piece from
// VCN 0 on with the runs of the pieces that continue it.
//
// An entry is passed over when it names an $ATTRIBUTE_LIST, an attribute already taken, an
// attribute its record does not hold, a piece that does not continue its stream, or a record that
// is not an extension of base: not a valid FILE record, in use when base is not or the reverse,
// or whose base reference does not point back to base (record number, and sequence number while
// in use: freeing a record moves its sequence number on, so a deleted file's extensions point to
// its former one). Each record is read once, through read, and no list but base's is followed.
// The first thing that kept an attribute from being found goes to damage, which is left alone
// when nothing did: a damaged list (ReadAttributeList), an entry passed over (but the list's own
// entry, naming an $ATTRIBUTE_LIST in base), an extension record whose attribute walk ends in
// damage, a FILE_NAME too short for its fields.
// Throws what read and the list's device reads throw.
AttributeList FollowAttributeList(const CFileRecord& base, const RecordReader& read, RecordDamage& damage);

} // namespace Krod
