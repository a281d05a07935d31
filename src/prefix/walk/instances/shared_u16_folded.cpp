// The case-folded walks of suggest and complete on the shared tree, code points in 16 bits.
#include "prefix/walk/tree_queries_impl.hpp"

template struct prefix::walk::FoldedQueries<prefix::walk::SharedView<std::uint16_t>,
                                            prefix::walk::SharedPayloadOf>;
