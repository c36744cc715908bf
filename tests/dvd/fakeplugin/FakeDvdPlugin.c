/* A shared library under the plug-in's file name that lacks the plug-in's exports, so loading it
 * can be seen to fail on the first missing function. */
int quovo_fake_dvd_plugin(void) {
    return 0;
}
