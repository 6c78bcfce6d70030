// The six reference notes, one complete Ogg Vorbis stream each, by string number:
// 1 high e, 2 B, 3 G, 4 D, 5 A, 6 low E. Generated from assets/ when the program is built.
#pragma once

extern const unsigned char s1eArray[];
extern const unsigned int s1eArray_len;
extern const unsigned char s2bArray[];
extern const unsigned int s2bArray_len;
extern const unsigned char s3gArray[];
extern const unsigned int s3gArray_len;
extern const unsigned char s4dArray[];
extern const unsigned int s4dArray_len;
extern const unsigned char s5aArray[];
extern const unsigned int s5aArray_len;
extern const unsigned char s6eArray[];
extern const unsigned int s6eArray_len;
