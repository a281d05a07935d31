// Every query's walks on the node arrays of a tree.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::ShapeView, prefix::walk::ArrayPayloadOf>;
