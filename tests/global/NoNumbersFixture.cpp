// A program whose version record has strings but no version numbers.
__attribute__((used, section(".morvane_version")))
static const char record[] = "MORVANE-VERSION-1\0CompanyName=Calvenor\0";

int main() { return 0; }
