// pacparser 1.3.6 keeps a quoted copy of every URL that pacparser_find_proxy
// is given and never frees it (a few bytes per evaluation). That is the
// library's, not ours; everything else must still leak nothing.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:pacparser_find_proxy\n";
}
