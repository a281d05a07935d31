// The case-folded walks of suggest and complete on the node arrays of a tree.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::FoldedQueries<prefix::walk::ShapeView, prefix::walk::ArrayPayloadOf>;
