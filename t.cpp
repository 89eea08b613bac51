#include <zlib.h>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>
uint32_t Crc32Of(const uint8_t*, size_t);
int main(){ std::mt19937 r(1); std::vector<uint8_t> b(50<<20); for(auto& x:b) x=r();
 int bad=0; for(size_t off=0; off<17; ++off) for(size_t n=0;n<700;++n){ if(Crc32Of(b.data()+off,n)!=crc32(0,b.data()+off,n)) bad++; }
 for(int i=0;i<50;i++){ size_t off=r()%1000, n=r()%(1<<22); if(Crc32Of(b.data()+off,n)!=crc32(0,b.data()+off,n)) bad++; }
 printf("bad=%d\n",bad);
 for(int k=0;k<3;k++){auto t=std::chrono::steady_clock::now(); uint32_t c=Crc32Of(b.data(),b.size()); double d=std::chrono::duration<double>(std::chrono::steady_clock::now()-t).count(); printf("fold %.1f ms %x zlib %x\n",d*1e3,c,(unsigned)crc32(0,b.data(),b.size()));}
}
