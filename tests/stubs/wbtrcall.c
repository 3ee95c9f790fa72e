/* Stands in for Btrieve's interface library, which the file definer loads and the Advanced page
   releases: the tests load it by path and watch the module table's count of it. */
int BTRCALL(void) {
    return 0;
}
