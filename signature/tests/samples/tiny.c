/* The smallest useful Windows program: the verification tests sign it, Authenticode-sign it and
   change single bytes in it. It is never run. */
int main(void) { return 0; }
