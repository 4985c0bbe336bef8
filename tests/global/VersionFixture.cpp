// A program that only carries a version record, for the version tests.
int main() { return 0; }
