/* A shared library that is not the recognition plug-in: it lacks the entry
 * point. */
int zvision_something_else(int x);
int zvision_something_else(int x) { return x + 1; }
