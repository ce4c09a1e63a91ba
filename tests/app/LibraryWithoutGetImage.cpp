// A resource library that lacks one of its five operations (getImage) and has everything else:
// the updater must refuse to start with it, before any of its own code runs.
#include "resourcelib/ResourcesUpd.h"

extern "C" {

size_t getSistema(ResChar*, size_t) {
  return 0;
}
size_t getUpdatePath(ResChar*, size_t) {
  return 0;
}
size_t getUpdateName(ResChar*, size_t) {
  return 0;
}
const ResColorTable* getColores(void) {
  return nullptr;
}
int resColorLookup(const ResColorTable*, const ResChar*, size_t, uint32_t*) {
  return 0;
}
uint64_t resImageSize(const ResImageStream*) {
  return 0;
}
uint64_t resImagePosition(const ResImageStream*) {
  return 0;
}
void resImageSeek(ResImageStream*, uint64_t) {}
size_t resImageRead(ResImageStream*, void*, size_t) {
  return 0;
}
void resImageRelease(ResImageStream*) {}
}
