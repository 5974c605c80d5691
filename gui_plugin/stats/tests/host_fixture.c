/* Stands for the loader host's executable in the folders the statistics tests read: only its
   version resource (or the lack of one) matters. */
int main(void) { return 0; }
