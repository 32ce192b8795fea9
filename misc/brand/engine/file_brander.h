// Branding one file: the copy through the rewriters into a temporary file
// beside the target, its version resource and PE checksum, its mode and
// time, and the replacement of the target.
#ifndef BRAND_ENGINE_FILE_BRANDER_H
#define BRAND_ENGINE_FILE_BRANDER_H

class brand;

namespace brandrewrite {
class NameRewriter;
}

namespace brandengine {

struct FileNames;

// Prepares `names` with the search entries a file written as `newName` holds
// (by the extension from its first "."): ".dll" the search list and the
// current file's listed name, ".cnt" the HELP entries, ".ini" the search
// list, others none. 0, or 1 when memory runs out (recorded).
[[nodiscard]] int prepareNameRewriter(const brand& object, const char* newName, const char* filePrefix,
                                      brandrewrite::NameRewriter* names);

// Brands the file `names` resolved (brand::brandFile without showing the
// status of a copy failure, which the caller shows after its own report).
// 1 when branded; else 0 with status 9 (the source is missing) or 10 (the
// copy failed, its reason posted: no target or temporary file is left
// behind, the source is as it was). A version resource that cannot be
// rewritten is shown as a warning with its reason; the branding goes on.
int brandOne(brand& object, FileNames& names);

}  // namespace brandengine

#endif  // BRAND_ENGINE_FILE_BRANDER_H
