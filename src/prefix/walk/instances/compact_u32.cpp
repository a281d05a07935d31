// Every query's walks on the compact tree, code points in 32 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::CompactView<std::uint32_t>,
                                          prefix::walk::CompactPayloadOf>;
