/* An extension module for the status channel tests: its port text is the device record's
 * port name (offset 68, 8 bytes), or "COM<device number>" when that is empty. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

void Ex_Get_Config_Port(const unsigned char* device, int32_t size, char* text) {
  const char* port = (const char*)device + 68;
  uint16_t number;
  memcpy(&number, device + 34, sizeof number);
  if (port[0] != '\0') {
    snprintf(text, (size_t)size, "%.8s", port);
  } else {
    snprintf(text, (size_t)size, "COM%u", (unsigned)number);
  }
}
