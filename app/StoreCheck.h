#pragma once

class QSettings;

// "settings.ini" may have been edited by hand, cut short or planted. The toolkit decodes a value
// written as "@Variant(…)" or "@DateTime(…)" from its binary stream as soon as any key of its group
// is read, and a stream that claims a huge count ends the program there; this program never writes
// such a value. So before the store is read, every such value is dropped from the file (the rest
// is kept) and the store reads the file again. Returns false when one is there and the file cannot
// be rewritten: the store must then be neither read nor written in this run.
bool dropUndecodableValues(QSettings &settings);
