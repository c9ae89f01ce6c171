/* A libavcodec of another generation for the loader tests: it has only some of the entry points. */
void* avcodec_find_encoder(int id)
{
    (void)id;
    return 0;
}
