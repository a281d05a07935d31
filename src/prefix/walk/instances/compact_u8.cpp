// Every query's walks on the compact tree, code points in 8 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::TreeQueries<prefix::walk::CompactView<std::uint8_t>,
                                          prefix::walk::CompactPayloadOf>;
