// Every query's walks on the shared tree, code points in 8 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::SharedView<std::uint8_t>,
                                          prefix::walk::SharedPayloadOf>;
