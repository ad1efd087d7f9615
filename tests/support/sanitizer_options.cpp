// Under AddressSanitizer, any single allocation above 256 MiB aborts the
// tests: the readers must never trust a size from a damaged file enough to
// allocate it.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=256";
}
#endif
