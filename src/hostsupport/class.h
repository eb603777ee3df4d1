// The root of every class of the driver.
//
// It has neither fields nor virtual operations: it only marks a type as one
// of the driver's own, so that the whole class tree shares one ancestor.
#pragma once

class CLASS {};
