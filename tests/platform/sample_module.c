/* A tiny shared object that the loader tests load and look into. */
int Ex_SampleAnswer(void) { return 42; }
