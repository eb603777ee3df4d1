#include "hostsupport/list.h"

// Out of line so that each element class has one home for its virtual table.
CListElem::~CListElem() = default;
CBListElem::~CBListElem() = default;
