/* A small module to exercise the trailing comment layout. */
#include <stdio.h>                                              // standard I/O

static int count;                                               // number of items
static int limit = 10;                                          // marker at column 26
static int edge = 1;                                            // marker at column 25
static int near = 2;   // marker at column 24: stays
static const char *url = "http://example.com";                  // a URL in a string
static double ratio = 1.0 / 3.0;                                // a division

/*
 * A block comment over several lines              // not a trailing comment
 */
int add(int a, int b) {                 /* opens a block
                                           that goes on */
  return a + b;  /* before the threshold */
}

int sub(int a, int b) { /* note */ return a - b; }              // after code and a comment
int mul(int a, int b) { return a * b; /* code first */ }
                                                                // a comment alone on its line
        int very_long_name_for_a_variable_that_goes_on_and_on_past_the_column = 0;// long code
        int longer_name_for_a_variable_that_goes_on_and_on_past_the_column_and_the_field = 0;// past the field
char quote = '/';                                               // a slash in quotes
int       spaced;                                               // far to the right
int trailing_spaces;                                            // text with spaces after it
int empty;                                                      //
int stars;                                                      ///
int tabbed;						// after tabs

