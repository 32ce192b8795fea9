// Where the branding INF is. Its reading is brand::readInf (inf_reader.cpp).
#ifndef BRAND_ENGINE_INF_READER_H
#define BRAND_ENGINE_INF_READER_H

namespace brandengine {

// The path of the branding INF (the catalogue's name, "vrbrand.inf") in
// `directory` (null or "": the current directory), its name matched
// ignoring case as the driver files' are, as a heap text; null when the
// directory holds none (or memory runs out, recorded).
//   findInf("/opt/vr") -> "/opt/vr/VRBRAND.INF" when that is the file there
char* findInf(const char* directory);

}  // namespace brandengine

#endif  // BRAND_ENGINE_INF_READER_H
