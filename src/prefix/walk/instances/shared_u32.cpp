// Every query's walks on the shared tree, code points in 32 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::SharedView<std::uint32_t>,
                                          prefix::walk::SharedPayloadOf>;
