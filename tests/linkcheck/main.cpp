// Linked with whole archives: the link fails when an archive needs a library its
// target does not name.
int main() { return 0; }
