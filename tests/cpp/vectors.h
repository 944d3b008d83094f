// Published test vectors shared by the C++ tests.
#pragma once

// NIST SP 800-38A appendix F.2.1 (CBC-AES128.Encrypt) and F.2.2
// (CBC-AES128.Decrypt): one key, one IV, four blocks each way.
inline const char* f2_key = "2b7e151628aed2a6abf7158809cf4f3c";
inline const char* f2_iv = "000102030405060708090a0b0c0d0e0f";
inline const char* f2_plaintext =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
inline const char* f2_ciphertext =
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7";
inline const char* f2_last_block = "3ff1caa1681fac09120eca307586e1a7";

// FIPS-197 appendix C.1 (AES-128), one block.
inline const char* c1_key = "000102030405060708090a0b0c0d0e0f";
inline const char* c1_plaintext = "00112233445566778899aabbccddeeff";
inline const char* c1_ciphertext = "69c4e0d86a7b0430d8cdb78070b4c55a";
