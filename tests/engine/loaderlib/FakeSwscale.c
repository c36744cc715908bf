/* Stands in for a scaling library of another major version (5.9.100) under a file name of its
 * own, so the loader's run-time version check can be seen to refuse it. */
unsigned swscale_version(void) {
    return (5u << 16) | (9u << 8) | 100u;
}
