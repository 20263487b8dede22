// Stands in for the optional system library rsrc32.dll: 42 per cent free.
extern "C" int fakeFreeResources(unsigned kind) {
    return kind == 0 ? 42 : -1;
}
