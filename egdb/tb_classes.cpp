#include "egdb/tb_classes.h"

int tb_class_by_name(std::string_view name) {
  for (int c = 1; c < TB_CLASS_COUNT; ++c)
    if (name == tb_class_info[c].name) return c;
  return -1;
}
