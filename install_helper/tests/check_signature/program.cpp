// A program for the signature gate's tests: it is checked, never started.
int main() { return 0; }
